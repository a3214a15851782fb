"""Python values for the value-format benchmarks."""

from __future__ import annotations


def small_flat() -> dict:
    return {"id": 12345, "name": "order-12345", "active": True, "score": 0.875, "owner": None}


def nested_1kb() -> dict:
    return {
        "order": {
            "id": "A-1029",
            "customer": {"name": "Ada Lovelace", "email": "ada@example.com", "tier": 3},
            "lines": [
                {"sku": f"SKU-{i:04d}", "quantity": i + 1, "price": 9.99 + i, "tags": ["a", "b"]}
                for i in range(5)
            ],
            "shipping": {"method": "express", "address": {"city": "London", "zip": "N1 9GU"}},
        },
        "status": "pending",
        "retries": 0,
        "flags": [True, False, True],
    }


def records_50kb() -> dict:
    return {
        "records": [
            {
                "id": i,
                "name": f"record-{i}",
                "value": i * 1.5,
                "enabled": i % 2 == 0,
                "labels": ["x", "y"],
                "parent": None,
            }
            for i in range(580)
        ]
    }


PAYLOADS = {"small flat dict": small_flat, "1 KB nested": nested_1kb, "50 KB records": records_50kb}
