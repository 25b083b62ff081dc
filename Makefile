# Shortcuts for the scripts; the scripts work without make.
.PHONY: run test build bench fuzz
run:
	scripts/run
test:
	scripts/test
build:
	scripts/build
bench:
	scripts/bench
fuzz:
	scripts/fuzz
