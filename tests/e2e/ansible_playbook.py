#!/usr/bin/env python3
"""The example playbook run for real on four local hosts, each a copy of the
example installation: two whole, one with xvxc5.exe deleted (a file release
3.0 still uses), one with release 2.4 already removed. Checks the play recaps
of a check-mode run, a first run and a second run, and the reports kept.

Usage: ansible_playbook.py PROGRAM PLAYBOOK EXAMPLE_PREFIX
Exits 77 (skipped) where ansible-playbook is not installed."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HOSTS = ["whole-1", "whole-2", "file-deleted", "already-removed"]
HOLDING_24 = {"whole-1", "whole-2", "file-deleted"}


def tree_bytes(folder):
    sums = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                sums[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return sums


def recap(output):
    """host -> {"ok": n, "changed": n, "failed": n, ...} from the PLAY RECAP."""
    counts = {}
    for line in output.split("PLAY RECAP", 1)[-1].splitlines():
        match = re.match(r"^(\S+)\s+:\s+(.*)$", line)
        if match:
            counts[match.group(1)] = {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", match.group(2))}
    return counts


class Failure(Exception):
    pass


def expect(condition, what, output):
    if not condition:
        raise Failure(what + "\n--- ansible-playbook said:\n" + output)


def main():
    program, playbook, example = (os.path.abspath(a) for a in sys.argv[1:4])
    if shutil.which("ansible-playbook") is None:
        print("skipped: ansible-playbook is not installed (ansible-core)")
        return 77
    work = tempfile.mkdtemp(prefix="morvex-ansible-")
    try:
        hosts = os.path.join(work, "hosts")
        for host in HOSTS:
            shutil.copytree(example, os.path.join(hosts, host), symlinks=True)
        os.remove(os.path.join(hosts, "file-deleted", "drive_c", "Program Files", "Morvex", "bin", "xvxc5.exe"))
        subprocess.run([program, "--yes", "24"], check=True,
                       env=dict(os.environ, MORVEX_PREFIX=os.path.join(hosts, "already-removed")))
        inventory = os.path.join(work, "inventory.ini")
        with open(inventory, "w") as f:
            f.write("[morvex]\n")
            for host in HOSTS:
                f.write(f"{host} morvex_prefix={os.path.join(hosts, host)}\n")
            f.write(f"\n[morvex:vars]\nansible_connection=local\nansible_python_interpreter={sys.executable}\n"
                    f"morvex_program={program}\n")
        reports = os.path.join(work, "reports")
        # Nothing of the user's own Ansible setup or home folder takes part.
        env = dict(os.environ, HOME=work, ANSIBLE_NOCOLOR="1", ANSIBLE_CONFIG=os.path.join(work, "none.cfg"),
                   ANSIBLE_LOCAL_TEMP=os.path.join(work, "tmp"), ANSIBLE_REMOTE_TEMP=os.path.join(work, "tmp"),
                   ANSIBLE_RETRY_FILES_ENABLED="0")

        def play(*extra):
            run = subprocess.run(["ansible-playbook", "-i", inventory, playbook, "-e", "morvex_release=24",
                                  "-e", "morvex_reports=" + reports, *extra],
                                 env=env, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            print(run.stdout.split("PLAY RECAP", 1)[-1].strip().join(["PLAY RECAP ", "\n"]))
            return run.stdout, recap(run.stdout)

        def prefixes():
            return {host: tree_bytes(os.path.join(hosts, host)) for host in HOSTS}

        before = prefixes()
        output, counts = play("--check")
        expect(prefixes() == before, "check mode changed a host's files", output)
        expect(sorted(counts) == sorted(HOSTS), "the recap does not name every host", output)
        for host in HOSTS:
            expect(counts[host]["failed"] == 0, f"check mode failed {host}", output)
            expect((counts[host]["changed"] > 0) == (host in HOLDING_24),
                   f"check mode: {host} changed={counts[host]['changed']}", output)

        output, counts = play()
        for host in HOSTS:
            expect((counts[host]["changed"] > 0) == (host in HOLDING_24),
                   f"first run: {host} changed={counts[host]['changed']}", output)
            expect((counts[host]["failed"] > 0) == (host == "file-deleted"),
                   f"first run: {host} failed={counts[host]['failed']}", output)
        expect("xvxc5.exe is counted (1) but not on disk" in output,
               "first run: the broken host's message lacks its finding", output)

        output, counts = play()
        for host in HOSTS:
            expect(counts[host]["changed"] == 0, f"second run: {host} changed={counts[host]['changed']}", output)
            expect((counts[host]["failed"] > 0) == (host == "file-deleted"),
                   f"second run: {host} failed={counts[host]['failed']}", output)

        kept = sorted(os.listdir(reports))
        expect(kept == sorted(h + ".json" for h in HOSTS), f"reports/ holds {kept}", "")
        for name in kept:
            with open(os.path.join(reports, name)) as f:
                report = json.load(f)
            expect(report["release"] == "24" and not report["dry_run"], f"{name} is not the last run's report", "")
        print("ansible playbook: 3 plays on 4 hosts as expected")
        return 0
    except Failure as failure:
        print(failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
