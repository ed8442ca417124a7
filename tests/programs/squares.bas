10 for i = 1 to 10
20   print i, i*i
30 next i
