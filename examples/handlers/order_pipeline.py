"""Handlers for examples/order_pipeline.json.

Resources with dots in their names cannot be function names, so this module
offers its handlers through the HANDLERS mapping.  Each handler receives one
dict: {"state_id": int, "replay": bool, "input": <the Task's input>}, and
returns the Task's result.  Raising an exception fails the attempt; the
machine's Retry and Catch rules see it as an error of kind External.
"""

STOCK = {"TEA-42": 10, "MUG-7": 0}

# The payment gateway is flaky: the first attempt for each order times out.
_charge_attempts: dict[str, int] = {}


def check_stock(call):
    request = call["input"]
    on_hand = STOCK.get(request["sku"], 0)
    return {"available": on_hand >= request["quantity"], "on_hand": on_hand, "warehouse": request["warehouse"]}


def charge(call):
    order = call["input"]
    attempt = _charge_attempts.get(order["id"], 0) + 1
    _charge_attempts[order["id"]] = attempt
    if attempt == 1:
        raise TimeoutError("payment gateway did not answer in time")
    if order["card"] == "tok_declined":
        raise PermissionError("card declined")
    return {
        "id": f"ch_{order['id']}",
        "amount": order["quantity"] * order["unit_price_cents"],
        "currency": "EUR",
        "gateway": {"region": "eu-west", "attempt": attempt},
    }


def create_shipment(call):
    request = call["input"]
    return {"tracking": f"TRK-{request['order_id']}", "carrier": "post", "to": request["address"]["city"]}


HANDLERS = {
    "inventory.check": check_stock,
    "payments.charge": charge,
    "shipping.create": create_shipment,
}
