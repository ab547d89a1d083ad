-- Lua strings are immutable: a table of pieces joined once is its string builder.
local total = 0
for _ = 1, 15 do
    local parts = {}
    for _ = 1, 1000000 do
        parts[#parts + 1] = "abc"
    end
    total = total + #table.concat(parts)
end
print(total)
