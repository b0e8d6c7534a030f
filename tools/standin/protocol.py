"""What the manager and the stand-in agree on. The manager keeps these texts
scrambled in its executable; keep both sides in step."""

LOGIN_PATH = "/pm/v1/login"
CATALOGUE_PATH = "/pm/v1/catalogue"
PARAMETER_NAMES = ("qm_account", "qm_secret", "qm_digest", "qm_kind")
ERROR_MARKER = "error"
