/tmp/q/os_8_5_4.png|http://127.0.0.1:8080/4/8/5.png
|http://x/
no bar here
a|b|c
