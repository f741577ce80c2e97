# Install rules, the Windows version resource and manifest, and the CPack packages.
