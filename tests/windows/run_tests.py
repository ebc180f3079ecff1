"""Runs each tests/windows/test_*.py file as its own unittest process, a few
at a time, shows the output of the files that failed and ends with one
summary line. The exit status is non-zero when any test failed."""
import argparse
import concurrent.futures
import glob
import os
import re
import subprocess
import sys
import time


def run_file(path):
    folder, name = os.path.split(path)
    start = time.monotonic()
    proc = subprocess.run([sys.executable, '-m', 'unittest', '-v', name[:-3]], cwd=folder,
                          capture_output=True, timeout=1200)
    elapsed = time.monotonic() - start
    text = proc.stderr.decode('utf-8', 'replace') + proc.stdout.decode('utf-8', 'replace')
    ran = re.search(r'^Ran (\d+) tests?', text, re.M)
    skipped = re.search(r'skipped=(\d+)', text)
    return (name, proc.returncode, int(ran.group(1)) if ran else 0,
            int(skipped.group(1)) if skipped else 0, elapsed, text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('folder')
    parser.add_argument('names', nargs='*', help='test files to run instead of all')
    args = parser.parse_args()
    files = sorted(glob.glob(os.path.join(os.path.abspath(args.folder), 'test_*.py')))
    if args.names:
        files = [f for f in files if os.path.basename(f) in args.names]
    failed_files, total, skipped = [], 0, 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for name, code, ran, skips, elapsed, text in pool.map(run_file, files):
            total += ran
            skipped += skips
            verdict = 'ok' if code == 0 else 'FAILED'
            print(f'{name:40} {ran:3} tests  {elapsed:6.1f} s  {verdict}', flush=True)
            if code != 0:
                failed_files.append(name)
                print(text, flush=True)
    print(f'Windows tests: {len(files) - len(failed_files)} of {len(files)} files passed, '
          f'{total} tests run, {skipped} skipped' +
          (f'; failed: {", ".join(failed_files)}' if failed_files else ''))
    return 1 if failed_files or not files else 0


if __name__ == '__main__':
    sys.exit(main())
