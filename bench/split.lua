local function split(text, dlm)
    local pieces = {}
    local pos = 1
    while true do
        local found = string.find(text, dlm, pos, true)
        if not found then break end
        pieces[#pieces + 1] = string.sub(text, pos, found - 1)
        pos = found + #dlm
    end
    pieces[#pieces + 1] = string.sub(text, pos)
    return pieces
end

local text = string.rep("abcdefghi,", 100000)
print(#split(text, ","))
