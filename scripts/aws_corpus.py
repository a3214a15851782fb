"""How much of a folder of real-world definitions the AWS dialect accepts.

    python scripts/aws_corpus.py [DIR]     (default: ../shared/corpus/aws-samples)

Prints one verdict per file (OK, OK with warnings, or FAIL with its errors),
then the counts: accepted, accepted with nothing this toolkit cannot run yet,
and the uses of each feature it cannot run yet.
"""

from __future__ import annotations

import collections
import pathlib
import sys

from pyvorn import aws

DEFAULT = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "aws-samples"


def feature_of(message: str) -> str:
    if " is not supported" in message:
        return message.split(" is not supported")[0]
    return "intrinsic functions" if "intrinsic function" in message else message


def main(argv: list[str]) -> int:
    folder = pathlib.Path(argv[0]) if argv else DEFAULT
    files = sorted(folder.glob("*.json"))
    if not files:
        print(f"{folder}: no definitions found", file=sys.stderr)
        return 1
    accepted = clean = 0
    features: collections.Counter[str] = collections.Counter()
    files_per_feature: collections.Counter[str] = collections.Counter()
    for path in files:
        report = aws.validate(path.read_text(encoding="utf-8"))
        errors = [d for d in report["diagnostics"] if d["severity"] == "ERROR"]
        unsupported = [d for d in report["diagnostics"] if d["code"] == "UNSUPPORTED_FEATURE"]
        if errors:
            print(f"FAIL  {path.name}")
            for d in errors:
                print(f"        {d['code']}: {d['message']} ({d['location']})")
            continue
        accepted += 1
        # The checker warns only of what it can see alone (JSONata, Assign, a
        # distributed Map's reader); Parallel, Map and intrinsic functions are
        # refused when a run starts, so that is asked too.
        try:
            aws.StateMachine(path.read_text(encoding="utf-8")).start_execution({})
        except aws.DefinitionError as error:
            seen = {(d["message"], d["location"]) for d in unsupported}
            unsupported += [d for d in error.diagnostics
                            if d["code"] == "UNSUPPORTED_FEATURE" and (d["message"], d["location"]) not in seen]
        names = sorted({feature_of(d["message"]) for d in unsupported})
        features.update(feature_of(d["message"]) for d in unsupported)
        files_per_feature.update(names)
        if unsupported:
            print(f"OK    {path.name}  (cannot run yet: {', '.join(names)})")
        else:
            clean += 1
            print(f"OK    {path.name}")
    print()
    print(f"{len(files)} definitions: {accepted} accepted, {len(files) - accepted} refused")
    print(f"{clean} accepted with nothing this toolkit cannot run yet")
    for name, uses in features.most_common():
        print(f"  {name}: {uses} uses in {files_per_feature[name]} files")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
