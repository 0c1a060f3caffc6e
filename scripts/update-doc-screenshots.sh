#!/usr/bin/env bash
# Copies the README's pictures from the screenshots that the end-to-end
# tests took (run the tests of a build first), cropped to what the program
# shows. Usage: bash scripts/update-doc-screenshots.sh [win32|win64]
set -euo pipefail
cd "$(dirname "$0")/.."
shots="build/${1:-win64}/e2e/screenshots"
copy() {
  [ -e "$shots/$1.png" ] || { echo "missing $shots/$1.png" >&2; return 1; }
  # The virtual display is black where no window is.
  convert "$shots/$1.png" -trim +repage "docs/$2.png"
  echo "docs/$2.png"
}
copy Run-Outcomes-BoxesLibraryAndStatus-RegistersAfterContinue-box1 welcome-box
copy Run-Outcomes-BoxesLibraryAndStatus-ElevenAreasAreNotRecognised-box2 sorry-box
copy Answers-MissingDescription-EndsInOneSevereBoxThenWithTheDiagnosticCode-Enter-box diagnostic-box
copy Acceptance-ExampleInstallerRegistersTheAddOn-directory-page installer-directory-page
copy Acceptance-ExampleInstallerRegistersTheAddOn-simulator-question installer-simulator-question
