<!doctype html>
<title>${ title ?? "Untitled" }</title>
<h1>Orders for $customer.name</h1>
<table>
${ orders::map(fn { '<tr><td>$(it.id:>6)</td><td>$(it.total:.2f)</td></tr>' })::join("\n") }
</table>
<p>${ if orders.len == 0 { "No orders yet." } else { "${orders.len} orders." } }</p>
<footer>Price in $$ (USD), generated at $(now():%H:%M).</footer>
