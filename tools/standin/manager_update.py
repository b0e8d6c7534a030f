"""The manager's update as the content server offers it: where a version's
payload for a platform lives, and the manifest entry that points at it."""
import hashlib
import os


def payload_name(version, platform):
    extension = ".AppImage" if platform == "linux" else ".zip"
    return "%s/QuillotonePluginManager-%s-%s-update%s" % (version, version, platform, extension)


def publish(content, origin, version, platform, data):
    """Writes the payload under content/plugin-manager/ and returns its entry."""
    name = payload_name(version, platform)
    path = os.path.join(content, "plugin-manager", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if platform == "linux":
        os.chmod(path, 0o755)
    return {"arch": "x86_64", "update": {
        "url": origin.rstrip("/") + "/plugin-manager/" + name,
        "sha256": hashlib.sha256(data).hexdigest(), "size": len(data)}}


def manifest(version, platforms):
    return {"schema": 1, "published": True, "version": version, "platforms": platforms}
