-- Lua strings are immutable: a table of byte values is its growing buffer,
-- joined into a string once for the search.
local data, char = {}, string.char
for i = 1, 10000000 do
    data[i] = i % 251
end
local chunks = {}
for i = 1, #data, 4096 do
    chunks[#chunks + 1] = char(table.unpack(data, i, math.min(i + 4095, #data)))
end
local text = table.concat(chunks) .. "\255\254\253"
print(#text, (text:find("\255\254\253", 1, true)))
