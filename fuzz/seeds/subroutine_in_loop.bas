10 for i = 1 to 5
20   gosub 100
30 next i
40 print "done"
50 end
100 print "call "; i
110 return
