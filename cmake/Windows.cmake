# Windows resources, manifest and deployment: to come
