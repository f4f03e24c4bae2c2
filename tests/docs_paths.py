# SPDX-License-Identifier: MIT
# Every file the README and docs/ name exists, and every command option they
# give one of Tambrel's programs or scripts is one it takes.
#   python3 docs_paths.py SOURCE_DIR
# Prints what is wrong, one line each; exit status 1 if anything is.
import glob
import os
import re
import sys

root = sys.argv[1]
pages = [os.path.join(root, 'README.md')] + sorted(glob.glob(os.path.join(root, 'docs', '*.md')))
TOP = ('src/', 'tests/', 'tools/', 'scripts/', 'docs/', 'data/', 'bench/', 'fuzz/', '.ci/', 'LICENSE')
BUILT = ('build/', 'build-web/', 'build-win/', 'dist/')  # made by the build, not in the source
# Options of programs that are not Tambrel's (Google Benchmark, GoogleTest, msiexec, lintian).
THEIRS = {'--benchmark_filter', '--benchmark_repetitions', '--benchmark_report_aggregates_only', '--gtest_filter',
          '--pedantic', '--prefix', '--install'}


def source_text():
    text = []
    for folder in ('src', 'tools', 'scripts'):
        for path in glob.glob(os.path.join(root, folder, '**', '*'), recursive=True):
            if os.path.isfile(path) and path.endswith(('.cpp', '.h', '.sh', '.js', '.mjs', '.in')):
                text.append(open(path, encoding='utf-8', errors='replace').read())
    return '\n'.join(text)


ours = source_text()
wrong = []
for page in pages:
    name = os.path.relpath(page, root)
    text = open(page, encoding='utf-8').read()
    for target in re.findall(r'\]\(([^)\s]+)\)', text):
        if re.match(r'[a-z]+:', target) or target.startswith('#'):
            continue
        if not os.path.exists(os.path.join(os.path.dirname(page), target.split('#')[0])):
            wrong.append(f'{name}: the link {target} leads nowhere')
    for span in re.findall(r'`([^`\n]+)`', text):
        for word in span.split():
            word = word.rstrip('.,;:)').lstrip('(')
            if word.startswith('./'):
                word = word[2:]
            if word.startswith(TOP) and not word.startswith(BUILT) and not re.search(r'[A-Z]{3,}|[*|]', word):
                if not os.path.exists(os.path.join(root, word)):
                    wrong.append(f'{name}: {word} does not exist')
            option = re.match(r'(--[a-z][a-z0-9-_]*)', word)
            if option and option.group(1) not in THEIRS and f'"{option.group(1)}"' not in ours \
                    and not re.search(rf'{re.escape(option.group(1))}\b', ours):
                wrong.append(f'{name}: no program of ours takes {option.group(1)}')
for line in wrong:
    print(line)
print(f'{len(pages)} pages read, {len(wrong)} wrong')
sys.exit(1 if wrong else 0)
