// Installed TrueType fonts: finding them, measuring text, reading metrics.
