10 for i = 1 to 15
20   if i % 15 = 0 then print "FizzBuzz" else if i % 3 = 0 then print "Fizz" else if i % 5 = 0 then print "Buzz" else print i
30 next i
