# Shortcuts for the scripts; the scripts work without make.
.PHONY: run test build
run:
	scripts/run
test:
	scripts/test
build:
	scripts/build
