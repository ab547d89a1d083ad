local function mold(s)
    -- Braces from the first one that never closes are escaped.
    local depth, bottom = 0, nil
    for i = 1, #s do
        local c = s:sub(i, i)
        if c == "{" then
            if depth == 0 then bottom = i end
            depth = depth + 1
        elseif c == "}" and depth > 0 then
            depth = depth - 1
        end
    end
    local unclosed = depth > 0 and bottom or #s + 1
    local out, d = {"{"}, 0
    for i = 1, #s do
        local c = s:sub(i, i)
        if c == "{" then
            if i < unclosed then d = d + 1; out[#out + 1] = "{" else out[#out + 1] = "^{" end
        elseif c == "}" then
            out[#out + 1] = d > 0 and "}" or "^}"
            if d > 0 then d = d - 1 end
        else
            out[#out + 1] = c
        end
    end
    out[#out + 1] = "}"
    return table.concat(out)
end

local total = 0
for _, pairs in ipairs({200000, 400000}) do
    local s = string.rep("{", pairs) .. string.rep("}", pairs) .. "{"
    total = total + #mold(s)
end
print(total)
