"""Handlers for examples/approval_flow.json.

The policy: up to 500 is approved automatically, up to 5000 by a manager, the
rest by a director.  Equipment always needs a manager at least.
"""

AUTO_LIMIT = 500
MANAGER_LIMIT = 5000

sent = []  # notifications, so a test or a REPL session can look at them


def classify(call):
    request = call["input"]
    amount = request["amount"]
    if amount <= AUTO_LIMIT and request["category"] != "equipment":
        tier = "auto"
    elif amount <= MANAGER_LIMIT:
        tier = "manager"
    else:
        tier = "director"
    return {"tier": tier, "limit": AUTO_LIMIT if tier == "auto" else MANAGER_LIMIT}


def ask(call):
    # A stand-in for asking a person: managers approve within their limit,
    # directors approve anything that is not a gift.
    approver = call["input"]["approver"]
    request = call["input"]["request"]
    if approver == "manager":
        approved = request["amount"] <= MANAGER_LIMIT
    else:
        approved = request["category"] != "gifts"
    return {"approved": approved, "by": approver}


def notify(call):
    message = call["input"]
    sent.append(message)
    return {"queued": True, "to": message["to"]}


HANDLERS = {
    "approvals.classify": classify,
    "approvals.ask": ask,
    "notify.requester": notify,
}
