import json
from pathlib import Path

text = (Path(__file__).resolve().parent / "data" / "doc.json").read_text(encoding="utf-8")
records = json.loads(text)
last = records[-1]
print(len(records), last["id"], len(last["tags"]), str(last["nested"]["inner"]["flag"]).lower())
