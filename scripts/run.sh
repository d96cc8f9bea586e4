#!/usr/bin/env bash
echo "make run: the main window is not built yet." >&2
exit 1
