// PLACEHOLDER, to be written.
