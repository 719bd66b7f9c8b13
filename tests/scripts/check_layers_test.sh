#!/usr/bin/env bash
# scripts/check-layers on a copy of src/: the tree as it stands passes; each planted include that
# breaks a layer fails the run and is named by its file and line; a file with several breaks has
# each one named.
set -uo pipefail
source_dir=${1:?usage: check_layers_test.sh SOURCE_DIR}
check="$source_dir/scripts/check-layers"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

fresh_copy() {
  rm -rf "$work/src"
  cp -r "$source_dir/src" "$work/src"
}

# plant FILE TEXT EXPECTED: appends the include line TEXT to FILE (under src/) and expects the
# check to fail naming "src/FILE:LINE:" and EXPECTED.
plant() {
  local file=$1 text=$2 expected=$3
  fresh_copy
  printf '%s\n' "$text" >>"$work/src/$file"
  local line
  line=$(wc -l <"$work/src/$file")
  local out status
  out=$("$check" "$work/src" 2>&1)
  status=$?
  if [ "$status" -ne 1 ]; then
    fail "$file: '$text' gave status $status, not 1: $out"
  elif ! grep -qF "src/$file:$line: " <<<"$out"; then
    fail "$file: '$text' not named at line $line: $out"
  elif ! grep -qF "$expected" <<<"$out"; then
    fail "$file: '$text' does not say '$expected': $out"
  fi
}

fresh_copy
if ! out=$("$check" "$work/src" 2>&1); then
  fail "the tree as it stands: $out"
fi

plant core/app/number_text.cpp '#include <QString>' 'core/ includes no Qt: <QString>'
plant core/view3d/model.h '#include "ui/plots/plot_state.h"' 'core/ may not include "ui/plots/plot_state.h"'
plant core/host/library_fault.cpp '#include <ui/app/velmor_dlg.h>' 'core/ may not include "ui/app/velmor_dlg.h"'
plant cli/cli_host.cpp '#include "ui/grid/data_grid.h"' 'cli/ may not include "ui/grid/data_grid.h"'
plant cli/cli_commands.cpp '#include <QWidget>' 'cli/ includes no Qt Widgets: <QWidget>'
plant ui/plots/plot_state.cpp '#include <QLineEdit>' 'ui/plots/ includes no Qt Widgets: <QLineEdit>'
plant ui/plots/plot_frame.h '#include <QtWidgets/QLabel>' 'ui/plots/ includes no Qt Widgets: <QtWidgets/QLabel>'
plant ui/plots/update_2d.cpp '#include <QOpenGLFunctions>' 'ui/plots/ includes no OpenGL: <QOpenGLFunctions>'
plant ui/plots/surface_map.cpp '#include "ui/common/message_ui.h"' 'ui/plots/ may not include "ui/common/message_ui.h"'
plant host/main.cpp '#include "ui/plots/update_2d.h"' 'host/ may not include "ui/plots/update_2d.h"'
plant host/main.cpp '#include <QCoreApplication>' 'host/ includes no Qt: <QCoreApplication>'
plant ui/grid/data_grid.cpp '#include "ui/surface/record_tables_dialog.h"' 'ui/grid/ may not include'
plant ui/surface/library_output.cpp '#include "ui/app/velmor_dlg.h"' 'ui/surface/ may not include "ui/app/velmor_dlg.h"'
plant ui/interp/tab_edit.cpp '#include <GL/gl.h>' 'ui/interp/ includes no OpenGL: <GL/gl.h>'
plant app/main.cpp '#include "cli/cli_host.h"' 'app/ may not include "cli/cli_host.h"'
plant ui/common/splitter_bar.cpp '#include "splitter_bar.h"' 'includes are written from src/'
plant ui/app/field_text.cpp '#include "user_surface.h"' 'is included by core/ only'
plant core/app/number_text.cpp '#include <nlohmann/json.hpp>' 'core/ includes no nlohmann-json (only cli/, core/compare/): <nlohmann/json.hpp>'
plant ui/plots/plot_state.cpp '#include <nlohmann/json.hpp>' 'ui/plots/ includes no nlohmann-json'

# Two breaks in one file: both are named, each by its own line.
fresh_copy
printf '#include <QImage>\n#include "ui/common/message_ui.h"\n' >>"$work/src/core/app/progress.cpp"
lines=$(wc -l <"$work/src/core/app/progress.cpp")
out=$("$check" "$work/src" 2>&1)
for line in $((lines - 1)) "$lines"; do
  grep -qF "src/core/app/progress.cpp:$line: " <<<"$out" || fail "progress.cpp line $line: $out"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "check-layers: the tree passes, every planted break fails with its file and line"
