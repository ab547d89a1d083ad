import json

# The same values as JSON text: integers, words (as strings) and strings.
parts = []
for i in range(1, 333335):
    parts.append(f'{i}, "w{i}", "s{i}"')
text = "[" + ", ".join(parts) + "]"
values = json.loads(text)
saved = json.dumps(values).encode("utf-8")
print(len(values), len(json.loads(saved)))
