"""Small working directories for single jobs: settings, links, and the
scratch-then-rename step that keeps a failed job from looking finished."""
import os
import shutil
import subprocess


class JobError(Exception):
    """A job's folder cannot be set up; the text says why."""


def config_with_settings(template_path, settings):
    """The text of config.txt at template_path with each key of settings set
    to its text (in place, or appended when the file lacks the key)."""
    with open(template_path, encoding="utf-8", newline="") as handle:
        lines = handle.read().splitlines()
    seen = set()
    for index, line in enumerate(lines):
        key = line.split("=", 1)[0]
        if "=" in line and key in settings:
            lines[index] = f"{key}={settings[key]}"
            seen.add(key)
    lines += [f"{key}={value}" for key, value in settings.items() if key not in seen]
    return "\n".join(lines) + "\n"


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as handle:
        handle.write(text)


def link(origin, link_path):
    """A relative symbolic link at link_path to origin."""
    os.symlink(os.path.relpath(origin, os.path.dirname(link_path)), link_path)


def link_files(source, paths, target):
    """Links each of paths (relative to source) at the same place under target."""
    for path in paths:
        link_path = os.path.join(target, path)
        os.makedirs(os.path.dirname(link_path), exist_ok=True)
        link(os.path.join(source, path), link_path)


def link_tree(source, target, skip=()):
    """Mirrors source's folders under target and links every file there with a
    relative symbolic link; hidden files (the workflow engine's markers), files
    already linked and those named in skip (paths relative to source) are left out."""
    for folder, _, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        os.makedirs(os.path.join(target, relative), exist_ok=True)
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            link_path = os.path.join(target, path)
            if name.startswith(".") or path in skip or os.path.lexists(link_path):
                continue
            link(os.path.join(folder, name), link_path)


def fresh_scratch(scratch):
    """Makes scratch an empty folder (what a killed job left there is removed)."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    return scratch


def run_logged(command, console, cwd=None):
    """Runs command with its standard output and error going to the open
    file console; returns the exit status."""
    console.flush()
    try:
        return subprocess.run(command, cwd=cwd, stdout=console, stderr=subprocess.STDOUT).returncode
    except OSError as error:
        console.write(f"cannot run {command[0]}: {error.strerror}\n")
        return 127


def finish(scratch, output, status):
    """Turns scratch into output after a clean exit; otherwise removes it.
    Returns status for the caller to exit with."""
    if status == 0:
        os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
        os.rename(scratch, output)
    else:
        shutil.rmtree(scratch, ignore_errors=True)
    return status
