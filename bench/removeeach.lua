-- The values kept, closed up in place: one pass over the table.
local function remove_each(values, removed)
    local kept = 0
    for i = 1, #values do
        local v = values[i]
        if not removed(v) then
            kept = kept + 1
            values[kept] = v
        end
    end
    for i = #values, kept + 1, -1 do values[i] = nil end
end

local total = 0
for _, size in ipairs({400000, 800000}) do
    local b = {}
    for i = 1, size do b[i] = i end
    remove_each(b, function(x) return x % 2 == 1 end)
    local s = {}
    for i = 1, size / 2 do s[#s + 1] = "a"; s[#s + 1] = "b" end
    remove_each(s, function(c) return c == "a" end)
    total = total + #b + #table.concat(s)
end
print(total)
