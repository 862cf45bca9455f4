Placeholder for start_mext.boot, the full boot script of release R5A
