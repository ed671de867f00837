Dear $name,

thank you for your message of $(date:%d %B). Nothing here is an escape: \n \t
stays as written, and so do 'quotes', "double quotes" and @ signs.

Regards,
${ signature::upper() }
