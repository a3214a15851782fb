# The two commands of the README, plus the benchmarks.
.PHONY: demo test bench

demo:
	@scripts/demo.sh

test:
	@scripts/test.sh

bench:
	@scripts/bench.sh
