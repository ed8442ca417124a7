10 x = 1
20 for i = 1 to 8
30   x = x * 2
40   print i, x
50 next i
60 print "eight bits wrap: 64 * 2 is -128"
