"""encode_value / decode_value against msgpack and pickle on the same values.

Target: encode_value and decode_value each at least as fast as msgpack on every
payload (msgpack keeps dict order; encode_value sorts keys), so the ratios
printed against msgpack are at most 1.
"""

from __future__ import annotations

import pickle

import msgpack

import _pyvorn
from payloads import PAYLOADS
from timing import format_time, median_seconds


def main() -> None:
    for label, make in PAYLOADS.items():
        value = make()
        vorn_bytes = _pyvorn.encode_value(value)
        packed = msgpack.packb(value)
        pickled = pickle.dumps(value, protocol=pickle.HIGHEST_PROTOCOL)
        assert _pyvorn.decode_value(vorn_bytes) == value
        inner = max(1, 20_000 // len(vorn_bytes))
        encode = median_seconds(
            {
                "encode_value": lambda: _pyvorn.encode_value(value),
                "msgpack.packb": lambda: msgpack.packb(value),
                "pickle.dumps": lambda: pickle.dumps(value, protocol=pickle.HIGHEST_PROTOCOL),
            },
            rounds=15,
            inner=inner,
        )
        decode = median_seconds(
            {
                "decode_value": lambda: _pyvorn.decode_value(vorn_bytes),
                "msgpack.unpackb": lambda: msgpack.unpackb(packed),
                "pickle.loads": lambda: pickle.loads(pickled),
            },
            rounds=15,
            inner=inner,
        )
        print(
            f"{label}: vorn {len(vorn_bytes)} B, msgpack {len(packed)} B, pickle {len(pickled)} B"
        )
        for name, seconds in {**encode, **decode}.items():
            print(f"  {name:<16}{format_time(seconds)}")
        print(
            f"  ratio encode_value / msgpack.packb:   {encode['encode_value'] / encode['msgpack.packb']:.2f}"
        )
        print(
            f"  ratio decode_value / msgpack.unpackb: {decode['decode_value'] / decode['msgpack.unpackb']:.2f}"
        )


if __name__ == "__main__":
    main()
