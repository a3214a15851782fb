# The two commands of the README, the full check CI runs, and the benchmarks.
.PHONY: demo test check bench

demo:
	@scripts/demo.sh

test:
	@scripts/test.sh

check:
	@scripts/check.sh

bench:
	@scripts/bench.sh
