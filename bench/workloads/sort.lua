local data = {}
local x = 12345
for i = 1, 100000 do
  x = ((x * 1103515245 + 12345) % 4294967296) & 0x7FFFFFFF
  data[i] = x % 1000000
end
table.sort(data, function(a, b) return a < b end)
print(string.format("%d %d %d", data[1], data[50001], data[100000]))
