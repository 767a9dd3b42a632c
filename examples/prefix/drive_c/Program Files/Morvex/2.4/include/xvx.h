/* Placeholder header of release 2.4. */
