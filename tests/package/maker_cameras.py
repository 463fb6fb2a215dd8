"""Reads `svcam --json list` on standard input and checks the simulated
machine's KIVO and LIRA cameras are served as maker cameras (argument "maker"),
or that every camera is a generic one (argument "generic")."""
import json
import sys

want = sys.argv[1]
cameras = json.load(sys.stdin)["cameras"]
kinds = {c["name"]: c.get("kind") for c in cameras}
print("cameras:", kinds)
if want == "maker":
    kivo = [k for n, k in kinds.items() if n.startswith("KIVO")]
    lira = [k for n, k in kinds.items() if n.startswith("LIRA")]
    ok = kivo == ["KIVO"] and lira == ["LIRA"]
else:
    ok = len(kinds) > 0 and all(k == "UVC" for k in kinds.values())
sys.exit(0 if ok else 1)
