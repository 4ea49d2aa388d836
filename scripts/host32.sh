# Sourced by the scripts: whether the shipped 32-bit programs can run here.
# Hosts differ: some kernels run no 32-bit user code at all, and where they
# do, wine32 may still be missing.

# True when the kernel runs a 32-bit program: a tiny i386 one that exits 42.
host_runs_32bit() {
  local d rc=1
  d=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$d/probe.s"
  if as --32 "$d/probe.s" -o "$d/probe.o" 2>/dev/null && ld -m elf_i386 "$d/probe.o" -o "$d/probe" 2>/dev/null; then
    "$d/probe" 2>/dev/null
    rc=$?
  fi
  rm -rf "$d"
  [ "$rc" -eq 42 ]
}

# True when Wine's 32-bit loader is installed and starts.
wine32_works() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Prints why the 32-bit build cannot run here and fails; succeeds silently
# when it can.
why_no_32bit() {
  if ! host_runs_32bit; then echo "this host runs no 32-bit code"; return 1; fi
  if ! wine32_works; then echo "no wine32 here"; return 1; fi
  return 0
}
