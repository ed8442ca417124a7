10 t = 0
20 for n = 1 to 15
30   t = t + n
40   print n; ": "; t
50 next n
