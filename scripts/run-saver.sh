#!/usr/bin/env bash
# Starts the saver in saver mode on the bundled data of the build. It runs in an emulated
# Windows machine of its own, build/machine, whose "App"/"Dir" setting names the build's data
# folder (build/dist); any key, a click or a mouse movement ends it.
#
# PLENOVA_BUILD names another build folder than build/, PLENOVA_MACHINE another machine folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/machine-env.sh
machine_env run-saver machine dist/PlenovaSaver.scr

data_folder=$("$tool" path -w "$build/dist")
"$tool" reg add 'HKCU\Software\PlenovaSaver\App' /v Dir /d "$data_folder" /f >/dev/null
exec "$build/dist/PlenovaSaver.scr" /s
