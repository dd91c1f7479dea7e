local layout = "<i4 d c16"
local size = string.packsize(layout)
local parts = {}
for i = 0, 99999 do
  parts[#parts + 1] = string.pack(layout, i % 5000 + 1, i / 7, string.format("item%d", i))
end
local data = table.concat(parts)
local ids, values, letters = 0, 0.0, 0
local pos = 1
while pos <= #data do
  local id, value, name
  id, value, name, pos = string.unpack(layout, data, pos)
  ids = ids + id
  values = values + value
  letters = letters + #name:match("^[^%z]*")
end
print(string.format("%d %d %d %.3f %d", #data // size, size, ids, values, letters))
