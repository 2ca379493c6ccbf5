"""A one-node SLURM cluster for the tests, or a stand-in where none can start.

LocalSlurm starts munged, slurmctld and slurmd on this machine from a short
slurm.conf in a folder of its own (free ports, no accounting, the machine's
own name as the one node), as root only, and stops all of them after, also
when a test fails: the daemons run in the foreground as children of the test
process and are told to end with it should it die. StandIn puts scripts named
sbatch and sacct first on the PATH that run each job script at once.
"""
import ctypes
import os
import secrets
import shutil
import signal
import socket
import subprocess
import time

DAEMONS = ("munged", "slurmctld", "slurmd")
CLIENTS = ("sbatch", "squeue", "scancel", "scontrol")
PR_SET_PDEATHSIG = 1

SLURM_CONF = """\
ClusterName=circogtest
SlurmctldHost={host}(127.0.0.1)
SlurmctldPort={ctld_port}
SlurmdPort={slurmd_port}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket={folder}/munge/socket
CredType=cred/munge
StateSaveLocation={folder}/state
SlurmdSpoolDir={folder}/spool
SlurmctldPidFile={folder}/slurmctld.pid
SlurmdPidFile={folder}/slurmd.pid
SlurmctldLogFile={folder}/slurmctld.log
SlurmdLogFile={folder}/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
# finished jobs stay known to scontrol this long (seconds), as status.py asks it
MinJobAge=600
# the node offers four CPUs whatever the machine has, so small jobs run side by side
SlurmdParameters=config_overrides
NodeName={host} NodeAddr=127.0.0.1 CPUs=4 RealMemory=8192 State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
"""

STAND_IN_SBATCH = """#!/bin/bash
# Runs the job script at once in the background; keeps the command line and exit status.
id=$(( $(ls "$FAKE_SLURM" | grep -c 'args$') + 1000 ))
printf '%s\\n' "$@" > "$FAKE_SLURM/$id.args"
out=$(printf '%s\\n' "$@" | sed -n 's/^--output=//p' | sed "s/%j/$id/")
( bash "${@: -1}" > "${out:-$FAKE_SLURM/$id.out}" 2>&1; echo $? > "$FAKE_SLURM/$id.exit" ) &
echo "$id"
"""
STAND_IN_SACCT = """#!/bin/bash
# Called as: sacct -j ID ...
if [ ! -f "$FAKE_SLURM/$2.exit" ]; then echo RUNNING
elif [ "$(cat "$FAKE_SLURM/$2.exit")" = 0 ]; then echo COMPLETED
else echo FAILED; fi
"""


def _die_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def _free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def _megabytes(text):
    """scontrol's memory (2G, 1024M) in MB."""
    return int(float(text[:-1]) * {"M": 1, "G": 1024, "T": 1024 * 1024}[text[-1]])


def _minutes(text):
    """scontrol's time limit ([D-]HH:MM:SS) in minutes."""
    days, _, clock = text.rpartition("-")
    hours, minutes, _ = (int(part) for part in clock.split(":"))
    return (int(days or 0) * 24 + hours) * 60 + minutes


class ClusterError(Exception):
    """The cluster could not start; the text says why."""


class LocalSlurm:
    real = True

    def __init__(self, folder):
        self.folder = str(folder)
        self.processes = []
        self.env = {**os.environ, "SLURM_CONF": os.path.join(self.folder, "slurm.conf")}

    @staticmethod
    def unavailable():
        """Why no cluster can start here, or None."""
        if os.geteuid() != 0:
            return "the tests do not run as root, which munged and slurmd need"
        missing = [name for name in DAEMONS + CLIENTS if shutil.which(name, path="/usr/sbin:/usr/bin") is None]
        if missing:
            return f"{', '.join(missing)} not installed (Debian packages slurmctld, slurmd, slurm-client, munge)"
        return None

    def start(self):
        for sub in ("munge", "state", "spool"):
            os.makedirs(os.path.join(self.folder, sub), mode=0o700)
        key = os.path.join(self.folder, "munge", "munge.key")
        with open(os.open(key, os.O_WRONLY | os.O_CREAT, 0o400), "wb") as handle:
            handle.write(secrets.token_bytes(1024))
        munge = os.path.join(self.folder, "munge")
        self._launch("munged", "-F", "--force", f"--key-file={key}", f"--socket={munge}/socket",
                     f"--pid-file={munge}/munged.pid", f"--log-file={munge}/munged.log",
                     f"--seed-file={munge}/munged.seed")
        self._wait_for(lambda: os.path.exists(f"{munge}/socket"), "munged made no socket")
        host = socket.gethostname().split(".")[0]
        with open(self.env["SLURM_CONF"], "w", encoding="utf-8") as handle:
            handle.write(SLURM_CONF.format(host=host, folder=self.folder, ctld_port=_free_port(),
                                           slurmd_port=_free_port()))
        self._launch("slurmctld", "-D", "-c", "-f", self.env["SLURM_CONF"])
        self._launch("slurmd", "-D", "-f", self.env["SLURM_CONF"])
        self._wait_for(self._node_idle, "the node did not come up")
        return self

    def _launch(self, name, *args):
        log = open(os.path.join(self.folder, name + ".out"), "wb")
        self.processes.append(subprocess.Popen([name, *args], stdout=log, stderr=subprocess.STDOUT,
                                               cwd=self.folder, env=self.env, preexec_fn=_die_with_parent))
        log.close()

    def _node_idle(self):
        state = self.run("sinfo", "-h", "-o", "%t").stdout.split()
        return state and state[0] in ("idle", "mix", "alloc")

    def _wait_for(self, ready, problem, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for process in self.processes:
                if process.poll() is not None:
                    raise ClusterError(f"{process.args[0]} ended with {process.returncode}: {self.log_tail()}")
            if ready():
                return
            time.sleep(0.2)
        raise ClusterError(f"{problem} within {seconds} s: {self.log_tail()}")

    def log_tail(self):
        lines = []
        for name in ("munged.out", "slurmctld.out", "slurmd.out"):
            path = os.path.join(self.folder, name)
            if os.path.exists(path):
                with open(path, encoding="utf-8", errors="replace") as handle:
                    lines += [f"{name}: {line}" for line in handle.read().splitlines()[-3:]]
        return " | ".join(lines)

    def run(self, *command):
        return subprocess.run(command, capture_output=True, text=True, env=self.env, timeout=60)

    def jobs(self):
        """Every job the controller knows: (id, name, CPUs, memory in MB, minutes, state)."""
        text = self.run("scontrol", "show", "job", "-o").stdout
        jobs = []
        for line in text.splitlines():
            fields = dict(word.split("=", 1) for word in line.split() if "=" in word)
            if "JobId" in fields:
                jobs.append((fields["JobId"], fields["JobName"], int(fields["NumCPUs"]), _megabytes(fields["MinMemoryNode"]),
                             _minutes(fields["TimeLimit"]), fields["JobState"]))
        return jobs

    def stop(self):
        """Cancels what still runs, then ends the daemons (slurmd first)."""
        if self.processes:
            self.run("scancel", "--partition=test")
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and self.run("squeue", "-h").stdout.strip():
                time.sleep(0.5)
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes = []


class StandIn:
    """sbatch and sacct that run each job script at once; no squeue or scancel."""
    real = False

    def __init__(self, folder, reason):
        self.reason = reason
        self.state = os.path.join(str(folder), "jobs")
        bin_dir = os.path.join(str(folder), "bin")
        os.makedirs(self.state)
        os.makedirs(bin_dir)
        for name, text in (("sbatch", STAND_IN_SBATCH), ("sacct", STAND_IN_SACCT)):
            path = os.path.join(bin_dir, name)
            with open(path, "w", encoding="utf-8") as handle:
                handle.write(text)
            os.chmod(path, 0o755)
        self.env = {**os.environ, "PATH": f"{bin_dir}:{os.environ['PATH']}", "FAKE_SLURM": self.state}

    def jobs(self):
        """What each job asked for: (id, name, CPUs, memory in MB, minutes, state)."""
        jobs = []
        for args in sorted(os.listdir(self.state)):
            if not args.endswith(".args"):
                continue
            with open(os.path.join(self.state, args), encoding="utf-8") as handle:
                options = dict(line[2:].split("=", 1) for line in handle.read().splitlines()
                               if line.startswith("--") and "=" in line)
            exit_file = os.path.join(self.state, args.replace(".args", ".exit"))
            state = "RUNNING"
            if os.path.exists(exit_file):
                with open(exit_file, encoding="utf-8") as handle:
                    state = "COMPLETED" if handle.read().strip() == "0" else "FAILED"
            jobs.append((args[:-len(".args")], options["job-name"], int(options["cpus-per-task"]), int(options["mem"]),
                         int(options["time"]), state))
        return jobs

    def stop(self):
        pass
