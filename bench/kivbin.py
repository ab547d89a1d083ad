import pickle

values = []
for i in range(1, 40001):
    values.append(i * 7919)
    values.append(i / 8.0)
    values.append(str(i))
    values.append("word")
    values.append([i, i + 1, "x"])
n = 0
for _ in range(10):
    decoded = pickle.loads(pickle.dumps(values, protocol=pickle.HIGHEST_PROTOCOL))
    n += len(decoded)
print(n)
