#!/usr/bin/env python3
"""Checks the engine package as the engine imports it.

Usage: check_package.py REPOSITORY CHECK, a CHECK being one of CHECKS, or `self-test`, which
breaks a copy of the package in each way the checks must catch and requires each to be caught.
"""
import json
import os
import re
import shutil
import sys
import tempfile

import yaml

PACKAGE = "unity"
# The .meta files of the native libraries and of the folders holding only them: the packaging step
# lays them over a copy of the package, beside the built binaries.
TEMPLATES = "packaging/plugin-meta"
TEMPLATE_PATHS = {
    "Runtime/Plugins.meta",
    "Runtime/Plugins/Android.meta",
    "Runtime/Plugins/Android/libKelbrin.so.meta",
    "Runtime/Plugins/Android/libWendrath.so.meta",
    "Runtime/Plugins/Windows.meta",
    "Runtime/Plugins/Windows/x86_64.meta",
    "Runtime/Plugins/Windows/x86_64/Skelder.dll.meta",
}
# Where the overlay goes; ignored by git, so absent from a clean tree.
OVERLAY = "Runtime/Plugins"
MANIFEST = "Runtime/UnitySubsystemsManifest.json"
IMPORTERS = {".cs": "MonoImporter", ".asmdef": "AssemblyDefinitionImporter", ".md": "TextScriptImporter",
             ".json": "TextScriptImporter"}
# Each library's platforms, as (platform, target) -> settings, exactly the enabled ones.
ANDROID_ARM64 = {("Android", "Android"): {"CPU": "ARM64"}}
WINDOWS_X64 = {("Standalone", "Win64"): {"CPU": "x86_64"}, ("Editor", "Editor"): {"CPU": "x86_64", "OS": "Windows"}}
LIBRARIES = {
    "Runtime/Plugins/Android/libKelbrin.so.meta": ANDROID_ARM64,
    "Runtime/Plugins/Android/libWendrath.so.meta": ANDROID_ARM64,
    "Runtime/Plugins/Windows/x86_64/Skelder.dll.meta": WINDOWS_X64,
}


class Failure(Exception):
    pass


def load_meta(path):
    with open(path) as stream:
        meta = yaml.safe_load(stream)
    if not isinstance(meta, dict) or meta.get("fileFormatVersion") != 2:
        raise Failure(f"{path}: not a version 2 .meta file")
    return meta


def package_assets(repository):
    """Every file and folder of the package but the .meta files and the overlay, relative to it."""
    root = os.path.join(repository, PACKAGE)
    for folder, folders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        folders[:] = [f for f in folders if os.path.normpath(os.path.join(relative, f)) != OVERLAY]
        for name in folders + [f for f in files if not f.endswith(".meta")]:
            yield os.path.normpath(os.path.join(relative, name))


def all_metas(repository):
    for base in (PACKAGE, TEMPLATES):
        root = os.path.join(repository, base)
        for folder, _, files in os.walk(root):
            for name in files:
                if name.endswith(".meta"):
                    yield os.path.join(folder, name)


def check_every_asset_has_its_meta(repository):
    root = os.path.join(repository, PACKAGE)
    assets = set(package_assets(repository))
    missing = sorted(a for a in assets if not os.path.isfile(os.path.join(root, a + ".meta")))
    if missing:
        raise Failure("without a .meta beside them: " + ", ".join(missing))
    templates = {os.path.relpath(m, os.path.join(repository, TEMPLATES)) for m in all_metas(repository)
                 if m.startswith(os.path.join(repository, TEMPLATES))}
    orphans = sorted(os.path.relpath(m, root) for m in all_metas(repository)
                     if m.startswith(root + os.sep) and os.path.relpath(m, root)[:-5] not in assets)
    if orphans:
        raise Failure(".meta files of nothing: " + ", ".join(orphans))
    if templates != TEMPLATE_PATHS:
        raise Failure(f"templates {sorted(templates)}, expected {sorted(TEMPLATE_PATHS)}")


def check_guids_are_well_formed_and_unique(repository):
    seen = {}
    for path in all_metas(repository):
        guid = str(load_meta(path).get("guid"))
        if not re.fullmatch(r"[0-9a-f]{32}", guid):
            raise Failure(f"{path}: malformed guid {guid!r}")
        if guid in seen:
            raise Failure(f"{path} and {seen[guid]} share the guid {guid}")
        seen[guid] = path


def check_importers_fit_their_assets(repository):
    for path in all_metas(repository):
        meta = load_meta(path)
        asset = path[:-5]
        template = os.path.relpath(path, os.path.join(repository, TEMPLATES))
        folder = template not in LIBRARIES if not template.startswith("..") else os.path.isdir(asset)
        name = os.path.basename(asset)
        expected = ("DefaultImporter" if folder else "PackageManifestImporter" if name == "package.json"
                    else "PluginImporter" if name.endswith((".so", ".dll")) else IMPORTERS.get(os.path.splitext(name)[1]))
        if expected not in meta:
            raise Failure(f"{path}: expected a {expected} section, found {sorted(k for k in meta if k[0].isupper())}")
        if folder and meta.get("folderAsset") is not True:
            raise Failure(f"{path}: a folder's .meta says folderAsset: yes")


def enabled_platforms(meta):
    enabled = {}
    for entry in meta["PluginImporter"]["platformData"]:
        (platform, target), = entry["first"].items()
        if entry["second"]["enabled"] == 1:
            enabled[(platform, target)] = {k: str(v) for k, v in (entry["second"].get("settings") or {}).items()
                                           if k in ("CPU", "OS")}
    return enabled


def check_native_libraries_import_for_their_platforms(repository):
    for path, expected in LIBRARIES.items():
        enabled = enabled_platforms(load_meta(os.path.join(repository, TEMPLATES, path)))
        if enabled != expected:
            raise Failure(f"{path}: enabled for {enabled}, expected {expected}")


def check_manifest_finds_libkelbrin(repository):
    with open(os.path.join(repository, PACKAGE, MANIFEST)) as stream:
        manifest = json.load(stream)
    library = "Runtime/Plugins/Android/libKelbrin.so"
    if manifest["libraryName"] + ".so" != os.path.basename(library):
        raise Failure(f"libraryName {manifest['libraryName']} does not name {library}")
    depth = len(os.path.relpath(os.path.dirname(library), os.path.dirname(MANIFEST)).split(os.sep))
    if depth > 2:
        raise Failure(f"{library} is {depth} folders below the manifest; the engine looks at most 2 deep")


def check_assemblies_compile_where_they_should(repository):
    def load(relative):
        with open(os.path.join(repository, PACKAGE, relative)) as stream:
            return json.load(stream)
    bindings = load("Runtime/Quenra.Plugins.asmdef")
    if bindings.get("noEngineReferences") is not True or bindings.get("references"):
        raise Failure("the bindings' assembly must reference nothing, not even the engine")
    features = load("Runtime/OpenXR/Quenra.Plugins.OpenXR.asmdef")
    if not {"Quenra.Plugins", "Unity.XR.OpenXR"} <= set(features.get("references", [])):
        raise Failure(f"the features' assembly references {features.get('references')}")
    # Compiled only with the OpenXR package: every constraint is a symbol that package's presence defines.
    defined = {d["define"] for d in features.get("versionDefines", []) if d.get("name") == "com.unity.xr.openxr"}
    constraints = set(features.get("defineConstraints", []))
    if not constraints or not constraints <= defined:
        raise Failure(f"constraints {sorted(constraints)}, defined by the OpenXR package: {sorted(defined)}")


CHECKS = {f.__name__[len("check_"):]: f for f in (
    check_every_asset_has_its_meta, check_guids_are_well_formed_and_unique, check_importers_fit_their_assets,
    check_native_libraries_import_for_their_platforms, check_manifest_finds_libkelbrin,
    check_assemblies_compile_where_they_should)}


def replace_in(relative, old, new):
    def mutate(copy):
        path = os.path.join(copy, relative)
        with open(path) as stream:
            text = stream.read()
        with open(path, "w") as stream:
            stream.write(text.replace(old, new, 1))
    return mutate


def copy_guid(source, target):
    def mutate(copy):
        guid = load_meta(os.path.join(copy, source))["guid"]
        replace_in(target, "guid: " + load_meta(os.path.join(copy, target))["guid"], "guid: " + guid)(copy)
    return mutate


# Each way the package can break, and the check that must catch it.
BREAKAGES = [
    ("a file without its .meta", lambda c: os.remove(os.path.join(c, PACKAGE, "Runtime/Kelbrin.cs.meta")),
     "every_asset_has_its_meta"),
    ("a new folder without its .meta", lambda c: os.makedirs(os.path.join(c, PACKAGE, "Editor")), "every_asset_has_its_meta"),
    ("a template missing", lambda c: os.remove(os.path.join(c, TEMPLATES, "Runtime/Plugins/Windows.meta")),
     "every_asset_has_its_meta"),
    ("two GUIDs the same", copy_guid(f"{PACKAGE}/Runtime/Skelder.cs.meta", f"{TEMPLATES}/Runtime/Plugins/Android.meta"),
     "guids_are_well_formed_and_unique"),
    ("a malformed GUID", replace_in(f"{PACKAGE}/package.json.meta", "guid: ", "guid: x"), "guids_are_well_formed_and_unique"),
    ("a script imported as text", replace_in(f"{PACKAGE}/Runtime/Wendrath.cs.meta", "MonoImporter", "TextScriptImporter"),
     "importers_fit_their_assets"),
    ("libKelbrin for 32-bit ARM", replace_in(f"{TEMPLATES}/Runtime/Plugins/Android/libKelbrin.so.meta", "CPU: ARM64",
                                             "CPU: ARMv7"), "native_libraries_import_for_their_platforms"),
    ("Skelder not in the editor", replace_in(f"{TEMPLATES}/Runtime/Plugins/Windows/x86_64/Skelder.dll.meta",
                                             "enabled: 1\n      settings:\n        CPU: x86_64\n        OS",
                                             "enabled: 0\n      settings:\n        CPU: x86_64\n        OS"),
     "native_libraries_import_for_their_platforms"),
    ("features compiled without the OpenXR package",
     replace_in(f"{PACKAGE}/Runtime/OpenXR/Quenra.Plugins.OpenXR.asmdef", '"define": "QUENRA_OPENXR"', '"define": "OTHER"'),
     "assemblies_compile_where_they_should"),
    ("bindings that need the engine", replace_in(f"{PACKAGE}/Runtime/Quenra.Plugins.asmdef", '"noEngineReferences": true',
                                                 '"noEngineReferences": false'), "assemblies_compile_where_they_should"),
    ("a library name with its extension", replace_in(f"{PACKAGE}/{MANIFEST}", '"libKelbrin"', '"libKelbrin.so"'),
     "manifest_finds_libkelbrin"),
]


def self_test(repository):
    for what, mutate, check in BREAKAGES:
        with tempfile.TemporaryDirectory() as copy:
            for base in (PACKAGE, TEMPLATES):
                shutil.copytree(os.path.join(repository, base), os.path.join(copy, base),
                                ignore=shutil.ignore_patterns("Plugins") if base == PACKAGE else None)
            mutate(copy)
            try:
                CHECKS[check](copy)
            except Failure:
                continue
            raise Failure(f"{check} missed {what}")


def main():
    repository, check = sys.argv[1], sys.argv[2]
    try:
        self_test(repository) if check == "self-test" else CHECKS[check](repository)
    except Failure as failure:
        print(f"{check} FAILED: {failure}")
        return 1
    print(f"{check} passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
