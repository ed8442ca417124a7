10 print 2
20 for n = 3 to 50
30   p = 1
40   for d = 2 to n - 1
50     if n % d = 0 then p = 0
60   next d
70   if p then print n
80 next n
