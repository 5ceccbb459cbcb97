// STUB: the virtual unit, to be written.
