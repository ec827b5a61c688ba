# Shared by tools/test and tools/tour: the interpreters the project is tested
# on and a ready virtual environment for each, with the package installed.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
venvs=${QUORIN_VENVS:-$root/build/venv}

# Prints the path of the interpreter named by TAG: 3.14, 3.14d, 3.15, asan
# (3.14 again, for the sanitizer build) or base (the machine's default
# python3, the oldest version supported).
interpreter() {
  case "$1" in
    3.14 | asan) "$root/tools/provision-python" | sed -n 1p ;;
    3.14d) "$root/tools/provision-python" | sed -n 2p ;;
    3.15) "$root/tools/provision-python" | sed -n 3p ;;
    base) command -v python3 ;;
    *) echo "unknown interpreter tag: $1" >&2; return 1 ;;
  esac
}

# Makes the venv for TAG, installs the test and benchmark dependencies and
# this package (a debug build of it for the debug interpreter, an
# instrumented one for asan), and prints the venv's python. Rebuilds are
# incremental (a build dir per tag).
ready_env() {
  local tag=$1 py venv_py debug=OFF sanitize=OFF strip=true
  py=$(interpreter "$tag")
  venv_py=$("$root/tools/provision-python" venv "$py" "$venvs/$tag")
  [[ $tag == 3.14d ]] && debug=ON
  # Symbols kept, so that sanitizer reports name functions and lines.
  [[ $tag == asan ]] && sanitize=ON strip=false
  "$venv_py" -m pip install -q --disable-pip-version-check \
      "scikit-build-core>=0.11" ninja pytest pytest-xdist hypothesis numpy >&2
  # Warnings are errors in the project's own builds only; a user's compiler
  # must not fail an install on a warning.
  QUORIN_WERROR=${QUORIN_WERROR:-ON} QUORIN_DEBUG=$debug QUORIN_SANITIZE=$sanitize "$venv_py" -m pip install -q --disable-pip-version-check \
      --no-build-isolation -C "build-dir=$root/build/skbuild/$tag" -C "install.strip=$strip" "$root" >&2
  echo "$venv_py"
}

# The sanitizer runtime, from the compiler that instrumented the build.
asan_runtime() {
  local lib
  lib=$("${CXX:-g++}" -print-file-name=libasan.so)
  [[ $lib == /* && -e $lib ]] || { echo "no ASan runtime from ${CXX:-g++} ($lib)" >&2; return 1; }
  realpath "$lib"
}
