import json
from pathlib import Path

text = (Path(__file__).resolve().parent / "data" / "doc.json").read_text(encoding="utf-8")
records = json.loads(text)
for _ in range(3):
    written = json.dumps(records, ensure_ascii=False, separators=(",", ":"))
print(len(records), len(written))
