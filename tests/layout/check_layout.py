#!/usr/bin/env python3
"""Fails when src/ breaks its layering.

- A system call outside src/base/ (platform.h and file.h are the one way to
  the system): a raw call, or a system header that only raw calls need.
- An include that makes two folders depend on each other: the folders'
  include graph must have no cycle. A program's main.cpp binds everything
  and is not counted.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else 'src')

# Calls that are system calls whatever the spelling; and names that classes
# here use for their own members too, counted only when written ::name(.
ALWAYS = ('openat openat2 pread pread64 pwrite pwrite64 preadv pwritev fsync fdatasync '
          'syncfs fstat fstatat stat lstat statx statfs fstatfs clock_gettime renameat renameat2 '
          'unlink unlinkat mkdir mkdirat rmdir flock fcntl ftruncate lseek dup dup2 dup3 linkat '
          'symlinkat readlink readlinkat fchmod fchown chmod chown opendir fdopendir readdir '
          'mkdtemp mkstemp usleep nanosleep syscall ioctl mmap munmap isatty').split()
QUALIFIED = 'open read write close sync rename link symlink truncate'.split()
HEADERS = ('unistd.h fcntl.h dirent.h sys/stat.h sys/file.h sys/types.h sys/vfs.h '
           'sys/statfs.h sys/syscall.h sys/mman.h sys/ioctl.h').split()

call = re.compile(r'(?P<before>[\w.>:]*?)(?P<colons>::)?\b(?P<name>' + '|'.join(ALWAYS + QUALIFIED)
                  + r')\s*\(')
include = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)
# A declaration or definition: `Type name(`, not a call.
declared = re.compile(r'(?:[\w>]\s+|[*&]\s*)$')
keywords = re.compile(r'(?:return|else|do|case|throw|co_return)\s+$')


def code_of(text):
    """The text with comments and string literals blanked out."""
    text = re.sub(r'//[^\n]*', '', text)
    text = re.sub(r'/\*.*?\*/', lambda m: re.sub(r'[^\n]', ' ', m.group()), text, flags=re.S)
    return re.sub(r'"(?:\\.|[^"\\\n])*"', '""', text)


faults = []
edges = {}
for path in sorted(src.rglob('*')):
    if path.suffix not in ('.h', '.cpp'):
        continue
    rel = path.relative_to(src)
    folder = str(rel.parent)
    text = path.read_text(encoding='utf-8', errors='replace')
    code = code_of(text)
    if rel.parts[0] != 'base':
        for header in include.findall(text):
            if header in HEADERS:
                faults.append(f'{rel}: includes <{header}>: system calls go through src/base')
        for m in call.finditer(code):
            line = code.count('\n', 0, m.start()) + 1
            name = m.group('name')
            lead = code[max(0, m.start() - 40):m.start()] + m.group('before')
            if m.group('before'):  # a member (x.read, p->write) or a class's (File::open)
                continue
            if name in QUALIFIED and not m.group('colons'):
                continue
            if not m.group('colons') and declared.search(lead) and not keywords.search(lead):
                continue
            faults.append(f'{rel}:{line}: calls {name}(): system calls go through src/base')
    if path.name == 'main.cpp':
        continue
    for header in include.findall(text):
        target = pathlib.PurePosixPath(header)
        if (src / target).exists() and str(target.parent) != folder:
            edges.setdefault(folder, {}).setdefault(str(target.parent), str(rel))

# A cycle between folders: a folder that reaches itself again.
def reaches(start):
    seen, stack = set(), [(start, [start])]
    while stack:
        node, trail = stack.pop()
        for nxt in edges.get(node, {}):
            if nxt == start:
                return trail + [nxt]
            if nxt not in seen:
                seen.add(nxt)
                stack.append((nxt, trail + [nxt]))
    return None

reported = set()
for folder in sorted(edges):
    cycle = reaches(folder)
    if cycle and frozenset(cycle) not in reported:
        reported.add(frozenset(cycle))
        steps = ', '.join(f'{a} -> {b} ({edges[a][b]})' for a, b in zip(cycle, cycle[1:]))
        faults.append(f'folders include each other: {steps}')

for fault in faults:
    print(fault)
print(f'{0 if faults else 1} passed, {len(faults) and 1} failed')
sys.exit(1 if faults else 0)
