local total = 0
for _ = 1, 8 do
    local b = {}
    for i = 1, 1000000 do
        b[#b + 1] = i
    end
    total = total + #b
end
print(total)
