"""Handlers for examples/data_shaping.json.

These resources are plain identifiers, so the handlers are simply functions
with the same names; no HANDLERS mapping is needed.
"""

PROFILES = {
    "C-311": {"name": "Grace Hopper", "tier": "gold", "since": 2019},
}

audit_trail = []


def crm_lookup(call):
    customer = call["input"]
    record = dict(PROFILES.get(customer["id"], {"name": "unknown", "tier": "none", "since": None}))
    record["id"] = customer["id"]
    return {
        "record": record,
        "meta": {"fetched_at": "2024-05-04T10:15:02Z", "source": "crm", "cache": "miss"},
        "raw": {"headers": {"x-request-id": "r-1"}},
    }


def audit_log(call):
    audit_trail.append(call["input"])
    return {"logged": len(audit_trail)}
