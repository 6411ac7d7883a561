# Convenience targets; the scripts do the work.
.PHONY: all setup build run test bench package
all: build
setup:
	./scripts/setup.sh
build:
	./scripts/build.sh
run:
	./scripts/run.sh
test:
	./scripts/test.sh
bench:
	./bench/run.sh
package:
	./scripts/package.sh
