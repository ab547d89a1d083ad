local x = 1
local data = {}
for i = 1, 1000000 do
    x = (x * 1002 + 12345) % 1000003
    data[i] = tostring(x)
end
table.sort(data)
print(data[1] .. " " .. data[500000] .. " " .. data[1000000])
