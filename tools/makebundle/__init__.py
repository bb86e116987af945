"""make-bundle's parts: each module is one step of laying out a macOS application bundle around
the launcher (options, layout, Info.plist, runtime, modules, trial run, archive, signing), and
main puts them together. tools/make-bundle is the entry point."""
