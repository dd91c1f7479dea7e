local parts = {}
for i = 1, 200000 do parts[#parts + 1] = "abc" end
local s = table.concat(parts)
print(#s)
