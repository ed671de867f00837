Dear $if, your $use of ${ 1e400 } and ${ 'x\q' } is $(x:abc
