<h1>Hello $name!</h1>
<ul>
${ for item in items { '<li>$(item.title:>20)</li>' } }
</ul>
<p>Price: $(price:.2f) ($currency) - \n stays @ "as is" 'here'</p>
$$dollar ${ {a: 1}.a } $( f(x) : [)] ) $
