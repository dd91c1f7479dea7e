local s = 0
for i = 0, 4999999 do
  if i % 3 == 0 then s = (s + i) % 1000003 else s = (s + 7) % 1000003 end
end
print(s)
