"""make-bundle's parts, one step of laying out a bundle each; main puts them together."""
