-- The block: the values kept, closed up in place; the string: gsub, the
-- closest match of a parse rule.
local total = 0
for _, size in ipairs({200000, 400000}) do
    local b = {}
    for i = 1, size do b[i] = i % 2 end
    local kept = 0
    for i = 1, #b do
        if b[i] ~= 1 then
            kept = kept + 1
            b[kept] = b[i]
        end
    end
    for i = #b, kept + 1, -1 do b[i] = nil end
    local s = string.rep("ab", size // 2):gsub("a", "")
    total = total + #b + #s
end
print(total)
