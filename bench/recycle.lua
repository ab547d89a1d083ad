local heap = {}
for i = 1, 1000000 do
    heap[i] = {i, "x"}
end
for _ = 1, 10 do
    collectgarbage("collect")
end
print(#heap)
