# shellcheck shell=bash
# Where a gift may be put, and how it takes that place. Sourced by
# scripts/gift.sh (and by the gift tests, which drive the same functions).
#
# A gift is a folder holding the mark file below. An OUT that exists is
# replaced only when it holds the mark or nothing at all. The new gift is
# built in a hidden folder beside OUT and exchanged with it in one rename, so
# OUT holds one whole gift at every moment; where the file system cannot
# exchange (FAT, some network shares), OUT is moved aside and the new one
# moved in, and an interrupt between the two puts the previous one back.
#
# VELMOR_GIFT_INTERRUPT=STEP:SIGNAL makes the script send itself SIGNAL when
# the swap reaches STEP (ready, placed, moved-aside, swapped, cleaned), and
# VELMOR_GIFT_EXCHANGE=no takes the two-rename way: both are for the tests.

gift_mark=.velmor-gift

# quoted TEXT: TEXT as a shell reads it back (in single quotes unless plain).
quoted() {
  if [[ $1 =~ ^[A-Za-z0-9_./+:,=@%-]+$ ]]; then
    printf '%s' "$1"
  else
    printf "'%s'" "${1//\'/\'\\\'\'}"
  fi
}

# within A B: real path A is B or lies inside it, component by component.
within() {
  [ "$2" = / ] || [ "$1" = "$2" ] || [[ $1 == "$2"/* ]]
}

# is_gift FOLDER: FOLDER may be replaced: it holds the mark, or nothing.
is_gift() {
  [ -d "$1" ] && [ ! -L "$1" ] || return 1
  [ -f "$1/$gift_mark" ] && return 0
  local first
  # An unreadable folder is not known to be empty.
  first=$(find "$1" -mindepth 1 -maxdepth 1 -print -quit 2>/dev/null) || return 1
  [ -z "$first" ]
}

# gift_out_refusal ROOT OUT [WORDS [PHOTOS [MUSIC]]]: prints why OUT may not
# receive a gift made from those inputs in the checkout ROOT (a real path);
# prints nothing when it may. Reads only, so it runs before any work.
gift_out_refusal() {
  local root=$1 out=$2 real shown input label path why relation
  real=$(realpath -m -- "$out")
  shown="OUT=$(quoted "$out")"
  if [ "$real" = / ]; then
    echo "$shown is the root of the file system; name a new folder"
    return
  fi
  local places=("the checkout:$root" "the home folder:${HOME:-}" "the WORDS file:${3:-}"
    "the PHOTOS folder:${4:-}" "the MUSIC file:${5:-}")
  # Lying inside the home folder is what most gifts do; inside an input, none.
  for relation in is holds "lies inside"; do
    for input in "${places[@]}"; do
      label=${input%%:*}
      [ -n "${input#*:}" ] || continue
      path=$(realpath -m -- "${input#*:}")
      case $relation in
        is) [ "$real" = "$path" ] || continue ;;
        holds) within "$path" "$real" || continue ;;
        *)
          case $label in "the checkout" | "the home folder") continue ;; esac
          within "$real" "$path" || continue
          ;;
      esac
      if [ "$relation" = is ]; then
        echo "$shown is $label; name a new folder"
      else
        echo "$shown $relation $label ($(quoted "$path")); name a new folder"
      fi
      return
    done
  done
  if within "$real" "$root"; then
    why=$(gift_out_in_checkout "$root" "$real" "$shown")
    if [ -n "$why" ]; then
      echo "$why"
      return
    fi
  fi
  if [ -e "$real" ] && [ ! -d "$real" ]; then
    echo "$shown is a file, not a gift; name a new folder"
  elif [ -d "$real" ] && ! is_gift "$real"; then
    echo "$shown holds files that are not a gift; name a new folder"
  else
    local up
    up=$(dirname -- "$real")
    while [ ! -e "$up" ]; do up=$(dirname -- "$up"); done
    [ -d "$up" ] && [ -w "$up" ] ||
      echo "$shown cannot be made: $(quoted "$up") is not a folder you may write in"
  fi
}

# Inside the checkout, a gift goes only in a folder directly in its root that
# is none of the checkout's own: not .git, not a build folder (build,
# build-…), none holding a file git tracks.
gift_out_in_checkout() {
  local root=$1 real=$2 shown=$3 relative top
  relative=${real#"$root"/}
  top=${relative%%/*}
  if [ "$relative" != "$top" ]; then
    echo "$shown lies inside the checkout's folder $top/; in the checkout a gift goes only" \
      "in a folder of its own beside README.md (such as gift-for-mira)"
  elif [ "$top" = .git ] || [ "$top" = build ] || [[ $top == build-* ]]; then
    echo "$shown is the checkout's own $top; name a new folder"
  elif [ -n "$(git -C "$root" ls-files -- ":(literal)$top" 2>/dev/null | head -n 1)" ]; then
    echo "$shown is the checkout's own $top (git tracks files in it); name a new folder"
  fi
}

# gift_out_begin OUT: removes what a stopped gift left beside OUT (putting a
# previous gift back where OUT is missing), then makes the folder the new
# gift is built in, $gift_part, and sees that an interrupt from here on
# leaves OUT whole and nothing beside it.
gift_out_begin() {
  gift_out=$(realpath -m -- "$1")
  gift_parent=$(dirname -- "$gift_out")
  gift_name=$(basename -- "$gift_out")
  gift_old=
  mkdir -p -- "$gift_parent"
  local left
  for left in "$gift_parent/.$gift_name".old-*; do
    if [ ! -e "$gift_out" ] && [ -f "$left/gift/$gift_mark" ]; then
      mv -T -- "$left/gift" "$gift_out"
    fi
  done
  for left in "$gift_parent/.$gift_name".part-* "$gift_parent/.$gift_name".old-*; do
    [ ! -d "$left" ] || [ -L "$left" ] || rm -rf -- "$left"
  done
  gift_part=$(mktemp -d "$gift_parent/.$gift_name.part-XXXXXX")
  # mktemp makes it private; a gift gets what the person's other folders get.
  chmod "$(printf %o $((0777 & ~$(umask))))" "$gift_part"
  trap gift_out_leave EXIT
  trap 'gift_out_stopped INT' INT
  trap 'gift_out_stopped TERM' TERM
  trap 'gift_out_stopped HUP' HUP
}

# What an interrupt or a failure leaves: OUT whole, nothing beside it. OUT is
# missing only between the two renames; the previous gift goes back then.
gift_out_leave() {
  if [ -n "$gift_old" ] && [ ! -e "$gift_out" ] && [ -d "$gift_old/gift" ]; then
    mv -T -- "$gift_old/gift" "$gift_out"
  fi
  rm -rf -- "$gift_part" ${gift_old:+"$gift_old"}
}

gift_out_stopped() {
  trap '' INT TERM HUP
  gift_out_leave
  if [ -e "$gift_out" ]; then
    echo "gift: stopped by SIG$1; $(quoted "$gift_out") holds the previous gift or the new one, whole" >&2
  else
    echo "gift: stopped by SIG$1 before the gift was made" >&2
  fi
  # Dying by the signal itself tells the caller it was stopped.
  trap - "$1" EXIT
  kill -s "$1" $$
}

gift_out_step() {
  local at=${VELMOR_GIFT_INTERRUPT:-}
  [ "${at%%:*}" != "$1" ] || kill -s "${at#*:}" $$
}

# Exchanges two paths in one rename; status 3 where the file system or the
# system cannot.
gift_out_exchange() {
  [ "${VELMOR_GIFT_EXCHANGE:-yes}" != no ] || return 3
  python3 - "$1" "$2" <<'EOF'
import ctypes, errno, os, sys
try:
    renameat2 = ctypes.CDLL(None, use_errno=True).renameat2
except AttributeError:
    sys.exit(3)
AT_FDCWD, RENAME_EXCHANGE = -100, 2
if renameat2(AT_FDCWD, os.fsencode(sys.argv[1]), AT_FDCWD, os.fsencode(sys.argv[2]),
             RENAME_EXCHANGE) != 0:
    code = ctypes.get_errno()
    if code in (errno.EINVAL, errno.ENOSYS, errno.EOPNOTSUPP):
        sys.exit(3)
    print(f"gift: cannot exchange {sys.argv[1]} and {sys.argv[2]}: {os.strerror(code)}",
          file=sys.stderr)
    sys.exit(1)
EOF
}

# gift_out_finish: marks $gift_part as a gift and puts it in OUT's place,
# which gift_out_refusal has just found free for it.
gift_out_finish() {
  printf '%s\n' "A gift made by make gift (Velmor for Torva). The next gift made here" \
    "replaces this whole folder: keep nothing else in it." >"$gift_part/$gift_mark"
  gift_out_step ready
  if [ ! -e "$gift_out" ]; then
    mv -T -- "$gift_part" "$gift_out"
    gift_out_step placed
  else
    local status=0
    gift_out_exchange "$gift_part" "$gift_out" || status=$?
    if [ "$status" = 0 ]; then
      gift_out_step swapped
    elif [ "$status" = 3 ]; then
      gift_old=$(mktemp -d "$gift_parent/.$gift_name.old-XXXXXX")
      mv -T -- "$gift_out" "$gift_old/gift"
      gift_out_step moved-aside
      mv -T -- "$gift_part" "$gift_out"
      gift_out_step swapped
    else
      return 1
    fi
  fi
  gift_out_leave
  gift_out_step cleaned
  trap - EXIT INT TERM HUP
}
