# Shortcuts for the scripts; ./run.sh and ./test.sh work without make.
.PHONY: run test package package-windows

run:
	./run.sh

test:
	./test.sh

package:
	./package.sh

package-windows:
	./package-windows.sh
