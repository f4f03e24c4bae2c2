# SPDX-License-Identifier: MIT
# Sourced by the scripts that pack a release: the same inputs give the same
# bytes on every machine and every run. Dates are the newest changelog
# entry's (SOURCE_DATE_EPOCH, which cpack, gzip, zip and the compilers also
# read), never the time of the build.
SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$(dirname "${BASH_SOURCE[0]}")/../data/changelog" | head -n 1)" +%s)
export SOURCE_DATE_EPOCH

# Sets every file and folder under the given paths to that date.
stamp() {
  find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# A .tar.gz of files (read from standard input, one a line, in the order
# given) from folder FROM, each under PREFIX/: ordered, dated, owned and
# permitted alike wherever it is made.
pack_tar() { # out.tar.gz from prefix
  local out=$1 from=$2 prefix=$3
  tar -C "$from" --no-recursion --format=gnu --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
    --mode='u+rw,go+r,go-w' --transform "s|^|$prefix/|S" -T - -cf - | gzip -9n >"$out.part"
  mv "$out.part" "$out"
}
