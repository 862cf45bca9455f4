Placeholder for start_bare.boot, the minimal boot script of release R5A
