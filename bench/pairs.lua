local min = math.min
local p = {0, 0}
local t = {0, 0, 0}
for i = 1, 1500000 do
    p = {p[1] + 1, p[2] + 2}
    t = {min(t[1] + 1, 255), min(t[2] + 2, 255), min(t[3] + 3, 255)}
end
print(p[1] .. "x" .. p[2] .. " " .. t[1] .. "." .. t[2] .. "." .. t[3])
