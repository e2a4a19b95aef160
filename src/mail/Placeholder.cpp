// Placeholder until the first class of this folder lands; delete it then.
