local function make_tree(depth)
    if depth == 0 then return {} end
    return {make_tree(depth - 1), make_tree(depth - 1)}
end

local function count_nodes(t)
    if #t == 0 then return 1 end
    return 1 + count_nodes(t[1]) + count_nodes(t[2])
end

local n = 0
for _ = 1, 2 do
    local t = make_tree(18)
    n = n + count_nodes(t)
    t = nil
end
print(n)
