"""Small working directories for single jobs: settings, links, and the
scratch-then-rename step that keeps a failed job from looking finished."""
import os
import shutil
import subprocess

SETTING_KEYS = ("AlignmentFlag", "Similarity")


def config_with_settings(template_path, alignment, similarity):
    """The text of config.txt at template_path with AlignmentFlag and
    Similarity set to the given texts (appended when the file lacks them)."""
    with open(template_path, encoding="utf-8", newline="") as handle:
        lines = handle.read().splitlines()
    values = dict(zip(SETTING_KEYS, (alignment, similarity)))
    seen = set()
    for index, line in enumerate(lines):
        key = line.split("=", 1)[0]
        if "=" in line and key in values:
            lines[index] = f"{key}={values[key]}"
            seen.add(key)
    lines += [f"{key}={values[key]}" for key in SETTING_KEYS if key not in seen]
    return "\n".join(lines) + "\n"


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as handle:
        handle.write(text)


def link_tree(source, target, skip=()):
    """Mirrors source's folders under target and links every file there with a
    relative symbolic link; hidden files (the workflow engine's markers), files
    already linked and those named in skip (paths relative to source) are left out."""
    for folder, _, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        os.makedirs(os.path.join(target, relative), exist_ok=True)
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            link = os.path.join(target, path)
            if name.startswith(".") or path in skip or os.path.lexists(link):
                continue
            origin = os.path.join(folder, name)
            os.symlink(os.path.relpath(origin, os.path.dirname(link)), link)


def fresh_scratch(scratch):
    """Makes scratch an empty folder (what a killed job left there is removed)."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    return scratch


def run_logged(command, log, cwd=None):
    """Runs command with its standard output and error in log; returns the exit status."""
    with open(log, "w", encoding="utf-8") as handle:
        try:
            return subprocess.run(command, cwd=cwd, stdout=handle, stderr=subprocess.STDOUT).returncode
        except OSError as error:
            handle.write(f"cannot run {command[0]}: {error.strerror}\n")
            return 127


def finish(scratch, output, status):
    """Turns scratch into output after a clean exit; otherwise removes it.
    Returns status for the caller to exit with."""
    if status == 0:
        os.rename(scratch, output)
    else:
        shutil.rmtree(scratch, ignore_errors=True)
    return status
