local names, counts = {}, {}
for i = 0, 1999 do
  names[i] = string.format("key%d", i)
  counts[names[i]] = 0
end
local x = 12345
for n = 1, 200000 do
  x = ((x * 1103515245 + 12345) % 4294967296) & 0x7FFFFFFF
  local name = names[x % 2000]
  counts[name] = counts[name] + 1
end
local sum = 0
for i = 0, 1999 do sum = sum + counts[names[i]] * (i + 1) end
print(string.format("%d %d %d %d", sum, counts.key0, counts.key777, counts.key1999))
