local function replace_all(text, pattern, value)
    local pieces = {}
    local pos = 1
    while true do
        local found = string.find(text, pattern, pos, true)
        if not found then break end
        pieces[#pieces + 1] = string.sub(text, pos, found - 1)
        pieces[#pieces + 1] = value
        pos = found + #pattern
    end
    pieces[#pieces + 1] = string.sub(text, pos)
    return table.concat(pieces)
end

local text = string.rep("abcdneedle", 100000)
text = replace_all(text, "needle", "pin")
print(#text)
