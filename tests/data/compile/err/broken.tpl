Hello ${ user.name }!
Your balance (€) is ${ balance * 1_00_ } credits, due ${ due date }.
${ if overdue } late fee applies.
Contact: $(support.email
