local lines, words, chars = 0, 0, 0
for line in io.lines(arg[1], "L") do
  lines = lines + 1
  chars = chars + #line
  for _ in line:gmatch("[^ \t\n,.;:!?]+") do words = words + 1 end
end
print(string.format("%d %d %d", lines, words, chars))
