-- Lua has no base-64 codec: a table-driven one over 3-byte groups.
local alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
local digit, value = {}, {}
for i = 1, 64 do
    digit[i - 1] = alphabet:sub(i, i)
    value[alphabet:byte(i)] = i - 1
end

local function encode(data)
    local out, n = {}, #data
    for i = 1, n - 2, 3 do
        local a, b, c = data:byte(i, i + 2)
        local v = (a << 16) | (b << 8) | c
        out[#out + 1] = digit[v >> 18] .. digit[(v >> 12) & 63] .. digit[(v >> 6) & 63] .. digit[v & 63]
    end
    local rest = n % 3
    if rest > 0 then
        local a, b = data:byte(n - rest + 1, n)
        local v = (a << 16) | ((b or 0) << 8)
        out[#out + 1] = digit[v >> 18] .. digit[(v >> 12) & 63]
            .. (rest == 2 and digit[(v >> 6) & 63] or "=") .. "="
    end
    return table.concat(out)
end

local function decode(text)
    local out, char = {}, string.char
    for i = 1, #text, 4 do
        local a, b, c, d = text:byte(i, i + 3)
        local v = (value[a] << 18) | (value[b] << 12) | ((value[c] or 0) << 6) | (value[d] or 0)
        if d == 61 then
            out[#out + 1] = c == 61 and char(v >> 16) or char(v >> 16, (v >> 8) & 255)
        else
            out[#out + 1] = char(v >> 16, (v >> 8) & 255, v & 255)
        end
    end
    return table.concat(out)
end

local pattern = {}
for i = 0, 255 do pattern[#pattern + 1] = string.char(i) end
local data = string.rep(table.concat(pattern), 65536)
local total = 0
for _ = 1, 5 do
    local text = encode(data)
    local back_again = decode(text)
    if back_again ~= data then error("mismatch") end
    total = total + #text + #back_again
end
print(total)
